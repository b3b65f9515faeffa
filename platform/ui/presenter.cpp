// The installed presenter (none: headless).
#include "platform/ui/presenter.h"

#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

void set_presenter(Presenter* presenter) { install_presenter(presenter); }

Presenter* get_presenter() { return S().presenter.load(std::memory_order_acquire); }

}  // namespace plat
