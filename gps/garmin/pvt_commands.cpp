// The real-time commands of a Garmin USB receiver: start and stop of the position
// stream (49, 50) and of the receiver measurements (110, 111), each a Command_Data
// packet (id 10) whose answer is the stream itself. See pvt.h.
#include "gps/garmin/link.h"
#include "gps/garmin/pvt.h"

namespace {

int send(com_device* dev, int code) {
  return garmin_usb_send_command(dev, uint16_t(code), uint16_t(kPvtPidCommandData));
}

}  // namespace

int pvt_command_start_pvt(com_device* dev) { return send(dev, kPvtCmdStartPvt); }
int pvt_command_stop_pvt(com_device* dev) { return send(dev, kPvtCmdStopPvt); }
int pvt_command_start_receiver(com_device* dev) { return send(dev, kPvtCmdStartReceiver); }
int pvt_command_stop_receiver(com_device* dev) { return send(dev, kPvtCmdStopReceiver); }
