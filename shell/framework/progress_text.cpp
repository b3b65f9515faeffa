// The formatted progress displays built on progress_step: image progress, the read
// position in the current reader file, the elapsed time, and the loading caption. Each
// builds its text only when an update is due, and never divides by a zero total.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"
#include "shell/framework/progress_state.h"

namespace {

std::atomic<progress_file_name_fn> g_file_name{nullptr};

const char* pick(const char* fr, const char* en) { return is_french() ? fr : en; }

// The text, one blank after it unless it ends with one, then the percentage.
std::string with_percent(const char* text, double fraction) {
  std::string s = text ? text : "";
  if (s.empty() || s.back() != ' ') s += ' ';
  s += std::to_string(int64_t(std::trunc(fraction * 100.0)));
  s += '%';
  return s;
}

// done / total kept within 0..1; no total means no progress yet.
double fraction_of(double done, double total) {
  if (!(total > 0.0) || !(done > 0.0)) return 0.0;
  double f = done / total;
  return f > 1.0 ? 1.0 : f;
}

std::string base_name(const char* path) {
  std::string s = path ? path : "";
  size_t cut = s.find_last_of("/\\");
  return cut == std::string::npos ? s : s.substr(cut + 1);
}

}  // namespace

void progress_image(const char* text, int64_t done, int64_t total) {
  if (!progress_step_due(plat::now_ms())) return;
  double f = fraction_of(double(done), double(total));
  if (!text) text = pick("Progression dans l'image ", "Image progress ");
  progress_step(with_percent(text, f).c_str(), f);
}

void progress_file_position(const char* text) {
  if (!progress_step_due(plat::now_ms())) return;
  double f = fraction_of(double(rd_tell()), double(rd_size()));
  if (!text) text = pick("Position de lecture dans le fichier ", "File read position ");
  progress_step(with_percent(text, f).c_str(), f);
}

void progress_elapsed(const char* text) {
  int64_t elapsed = plat::now_ms() - progress_globals().clock_ms.load();
  if (elapsed < 1000) return;
  int64_t seconds = elapsed / 1000;
  std::string s = text ? text : pick("Temps passe", "Elapse time");
  if (s.empty() || s.back() != ' ') s += ' ';
  s += ' ';
  s += std::to_string(seconds);
  s += 's';
  progress_step(s.c_str(), double(seconds % 30) * 0.03333333333333333);
}

void set_progress_file_name_routine(progress_file_name_fn fn) { g_file_name.store(fn); }

void progress_loading(const obj_t* file) {
  progress_state& st = progress_globals();
  if (!file || !st.wnd.load() || !st.enabled.load()) return;
  progress_file_name_fn fn = g_file_name.load();
  const char* name = fn ? fn(file) : obj_name_get(file);
  std::string base = base_name(name);
  if (!name || !*name || base.empty()) return;
  std::string caption = pick("Chargement ", "Loading ") + base;
  progress_set_text(caption.c_str(), 0);
}
