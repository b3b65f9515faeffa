// The Emtac driver's context outside its slots: made on a device (null allowed: the
// parser's read routine and device may then be replaced) with the parser on the driver's
// sentence handlers; freed with what it holds. For the fuzz harness of the logger's
// answers.
#pragma once
#include "gps/loggers/emtac.h"

emtac_ctx* emtac_context_new(com_device* device);
void emtac_context_free(emtac_ctx** ctx);
