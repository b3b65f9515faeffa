// The protocol side of the simulated Garmin receiver, shared by the pty and the USB
// transports: what the receiver answers to each host packet, the packet numbering the
// faults go by, the real-time stream and the trace. Internal to the simulator.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/gps_sim/garmin_sim.h"

namespace tm_test {

// One packet the receiver is to send.
struct garmin_sim_out {
  int id = 0;
  std::string data;
  bool transfer = false;  // part of a transfer (USB: over the bulk pipe)
  int number = -1;        // receiver packet number (set when first sent)
  int sendings = 0;       // times sent so far
};

class garmin_sim_engine {
 public:
  garmin_sim_engine(garmin_model model, garmin_sim_faults faults, bool usb);

  // A good host packet (ACK and NAK excepted). Returns what to answer: 0 ACK (then the
  // replies appended to *out are sent), 1 NAK, 2 nothing at all.
  int host_packet(int id, const std::string& data, std::vector<garmin_sim_out>* out);
  // Called for the host's ACK and NAK packets and bad frames (trace only).
  void host_ack(bool nak);
  void host_bad_frame();
  void note_ack_sent(bool nak);
  void note_resend();
  // Numbers a packet on its first sending; true when the receiver is silent from it on.
  bool number_packet(garmin_sim_out* p);

  // Real-time records due at `now` (platform clock), appended to *out; returns the time
  // of the next one (INT64_MAX: none).
  int64_t stream_due(int64_t now, std::vector<garmin_sim_out>* out);

  garmin_sim_faults faults() const;
  void set_faults(const garmin_sim_faults& f);
  garmin_sim_trace trace() const;
  void session_started();
  const garmin_model& model() const { return model_; }
  bool powered_off() const;

  // Link ids of the model's link protocol.
  int id_records() const, id_xfer_cmplt() const, id_command() const;

 private:
  void transfer_waypoints(int code, std::vector<garmin_sim_out>* out);
  void transfer_routes(int code, std::vector<garmin_sim_out>* out);
  void transfer_tracks(int code, std::vector<garmin_sim_out>* out);
  void empty_transfer(int code, std::vector<garmin_sim_out>* out);
  void push(std::vector<garmin_sim_out>* out, int slot_or_id, std::string data, bool transfer,
            bool is_id = false);
  int link_id(int slot) const;
  int command_code(int slot) const;

  const garmin_model model_;
  const bool usb_;
  mutable std::mutex mu_;
  garmin_sim_faults faults_;
  garmin_sim_trace trace_;
  int host_number_ = 0;   // number of the host packet awaited
  int host_repeats_ = 0;  // receptions of it refused so far
  int next_number_ = 0;   // number of the receiver's next packet
  bool pvt_on_ = false, rcv_on_ = false, off_ = false;
  size_t pvt_index_ = 0;
  int64_t next_pvt_ = INT64_MAX;
};

// Little-endian helpers.
void sim_put_le(std::string* s, uint64_t v, int bytes);
std::string sim_word(uint16_t v);

}  // namespace tm_test
