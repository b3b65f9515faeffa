// The destinations of the diffusion program and the routine that sends to them.
//
// A destination is a UDP socket object (core/socket.h) named host ":" port. Three lists
// hold them, each with slots that may be empty (a removed entry leaves its slot empty,
// the lists never shrink):
//   - selected: the destinations the user wants to reach;
//   - not selected: known destinations that receive nothing;
//   - sending: the copy of the selected list that qx_diffuse walks, rebuilt only by
//     qx_reset_destinations.
// A destination is in exactly one of the selected and not-selected lists; two
// destinations are the same when their texts host ":" port are equal (case-sensitive).
//
// Threads: the opener thread fills the lists at start-up while the window thread may
// already send, the live reader thread sends through qx_diffuse, and the window thread
// moves entries and rebuilds the sending list. Every routine here takes one mutex over
// the three lists and the rate-limit state for each walk or change; a channel is
// created (a name look-up that may wait) and a message box shown outside that mutex.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct container_t;
struct socket_t;

// Ports of the fixed loopback destinations: kQxFirstLocalPort + 1 .. + 9.
constexpr int kQxFirstLocalPort = 7550;
constexpr int kQxLocalPortCount = 9;
// Command slot that rebuilds the sending list in the window thread.
constexpr int kQxResetSlot = 17;

// Which list a routine works on.
enum qx_list_kind : int { QX_NOT_SELECTED = 0, QX_SELECTED = 1, QX_SENDING = 2 };

// Creates the three empty lists (start-up). Lists already made are kept.
void qx_init_destination_lists();
// Frees the lists and their channels, and forgets the rate-limit state (exit, tests).
void qx_free_destination_lists();

// The mutex over the lists. Hold it while using a list from qx_destination_list.
std::mutex& qx_destinations_mutex();
// The selected list for 1, the not-selected list for 0 (null before the start-up).
container_t* qx_destination_list(int selected);

// host ":" decimal port.
std::string qx_dest_text(const char* host, int port);
// The name texts of a list's slots in slot order, "" for an empty slot.
std::vector<std::string> qx_destination_texts(qx_list_kind which);

// Stores dest in the last empty slot of list (searching from the last slot towards the
// first), or appends it when there is none. Returns the slot index. Caller holds the
// mutex.
int qx_insert_destination(socket_t* dest, container_t* list);
// The slot of the destination named text, searching from the last slot; -1 when none
// (also for a missing list). Caller holds the mutex.
int qx_find_destination(const container_t* list, const char* text);

// Moves the destination of slot `index` of the not-selected list (from_not_selected 1)
// or of the selected list (0) into the other list. Returns 1 and sets the new slot
// index and the name text when there was one, else 0 (outputs: -1 and "").
int qx_move_destination(int index, int from_not_selected, int* out_index, std::string* out_text);
int qx_select_destination(int index, int* out_index, std::string* out_text);
int qx_unselect_destination(int index, int* out_index, std::string* out_text);

// Adds host:port to the selected list: nothing when it is selected already (index -1),
// moved when it is known as not selected, else a new UDP channel is made. A channel
// that cannot be made (unknown host, port outside 1..65535) is not added; with
// show_error 1 the "Invalid address" box says so. Returns 1 when an entry went into the
// selected list (index and text set), else 0.
int qx_add_destination(const char* host, int port, int* out_index, std::string* out_text,
                       int show_error);
// Moves host:port from the selected to the not-selected list; the channel stays open.
void qx_remove_destination(const char* host, int port);
// For a port other than 0: unselects 127.0.0.1 and localhost on that port and posts the
// rebuild of the sending list (command 17).
void qx_remove_local_destinations(int port);

// Rebuilds the sending list: a forced STOP marker to the old sending list, then the
// sending list becomes a copy of the selected list's slots, then a STOP marker to it.
void qx_reset_destinations();

// The opener (once per start): the loopback ports, IPADR, the ACTIVE_ and INACTIVE_
// keys, then the rebuild. Runs on its own thread from qx_start_destination_thread, which
// first disables the replay controls. The start returns false when no thread could be
// made; qx_destinations_opening tells whether the opener still runs.
void qx_open_destinations();
bool qx_start_destination_thread();
bool qx_destinations_opening();
// Waits (polling, at most bound_ms) until the opener has built the sending list: a
// replay started from the command line runs in the load task, which may be ready before
// the destinations are, and its START and first points would reach nobody. True when
// the opener is done.
bool qx_wait_destinations_open(int64_t bound_ms);

// Sends `length` bytes of text, as they are, in one datagram to every open UDP channel
// of the sending list (from its last slot to its first). Unforced sends (track points,
// relayed fixes) are rate-limited by the number of slots n: a group is dropped when
// fewer than floor((n + 9) / 20) seconds passed since the last unforced send that went
// out (platform monotonic clock). Forced sends (markers) always go and leave that time
// alone.
// A fast stream of unforced groups (64 in a row, each within 20 ms of the one before)
// is handed to sender threads that share the channels out, so that the caller goes back
// to reading at once: qx_diffuse then returns once the group is queued. Each channel
// still gets the groups in order, and a forced send, a rebuild, a slower group, qx_diffuse_flush
// and qx_free_destination_lists first wait until the queued groups went out. A group
// the full queue could not take within a second is dropped and counted.
void qx_diffuse(const char* text, int length, int force);
// Waits until every queued group went out; the next groups are sent by the caller again
// until a new stream builds up. Call it before closing a channel of the sending list in
// any other way than qx_free_destination_lists.
void qx_diffuse_flush();
// Whether groups currently go through the sender threads, and how many groups were
// dropped because the queue stayed full (since start-up).
bool qx_diffuse_streaming();
long qx_diffuse_dropped();
