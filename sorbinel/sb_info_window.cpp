// F12: the About title (name, version, date, web address, memory in use) while the
// "File information" table window of the shown file is opened; the previous title and
// status come back afterwards. Nothing during a slideshow.
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "map/mapwin.h"
#include "platform/sys/sysinfo.h"
#include "shell/framework/progress.h"
#include "shell/framework/table_window.h"
#include "sorbinel/sb_info.h"

namespace {
constexpr int kInfoWindowWidth = 620;
constexpr int kInfoColumns = 2;

std::string owned(char* text) { return text ? text : ""; }
}  // namespace

void sb_show_file_info() {
  sb_state& s = sb();
  if (s.mode & kSbModeSlideshow) return;
  const mapwin_t* frame = s.frame;
  const std::string title = frame ? owned(frame->title) : "";
  const std::string part = frame ? owned(frame->status_part) : "";
  const std::string status = frame ? owned(frame->status_text) : "";
  main_set_title_text(sb_about_title(plat::get_memory_status().process_committed).c_str());
  main_set_status_part("");
  main_set_status_text(nullptr, "", 0);
  busy_reset();
  if (s.current) {
    s.info_text = sb_file_info_text(s.current);
    create_table_window(s.info_text.c_str(), is_french() ? "Informations sur le fichier" : "File information", 0,
                        kInfoColumns, kInfoWindowWidth, 1);
  }
  main_set_title_text(title.c_str());
  main_set_status_part(part.c_str());
  main_set_status_text(nullptr, status.c_str(), 0);
  busy_reset();
}
