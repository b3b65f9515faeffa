// A reader for the XML engine tests that records every event the engine reports:
// start and end of elements, attributes and character data, by name, in order.
//
// The recorder builds its element and attribute dictionaries from the names it is
// given (element "xml" always has id 1 and its "encoding" attribute goes to
// xml_set_encoding, as every reader of the system does). Names listed as processing
// instructions are recorded as "pi" events and their attributes are not recorded.
//
// Events: "start" and "end" (real handler calls, by element name), "attr" (name and
// value; the call with a null value at the name is not recorded), "text" (name: the
// element whose handler received it), "pi", and "closed": an element the engine closed
// without an end call. The engine makes no end call for an empty element ('<a/>'), a
// declaration, or elements above the one an end tag closes; the recorder sees them
// closed when the engine's depth falls below its own record, and reports them then,
// before the next event. Text is converted to UTF-8 with xml_text_to_wcs, as a reader
// would convert it, unless raw bytes are asked for.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "core/xml.h"

namespace xml_test {

struct event {
  std::string kind;  // start, attr, text, end, closed, pi
  std::string name;
  std::string value;
  bool operator==(const event&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const event& e) {
  return os << e.kind << " " << e.name << " [" << e.value << "]";
}

constexpr int kMaxNames = 160;

class recorder {
 public:
  // Element names (without "xml", which is added first), attribute names and the
  // names that are processing instructions (also element names).
  recorder(const std::vector<std::string>& elements, const std::vector<std::string>& attributes,
           const std::set<std::string>& pis = {}, int lower_case = 0)
      : pis_(pis), lower_case_(lower_case) {
    element_names_.push_back("");  // id 0: unknown
    element_names_.push_back("xml");
    for (const auto& n : elements)
      if (n != "xml") element_names_.push_back(n);
    attr_names_.push_back("");
    attr_names_.push_back("encoding");
    for (const auto& n : attributes)
      if (n != "encoding") attr_names_.push_back(n);
    EXPECT_LT(element_names_.size(), size_t(kMaxNames));
    for (size_t i = 1; i < element_names_.size(); ++i)
      element_tags_.push_back(make_tag(element_names_[i].c_str(), int(i)));
    for (size_t i = 1; i < attr_names_.size(); ++i)
      attr_tags_.push_back(make_tag(attr_names_[i].c_str(), int(i)));
    dict_build_pair(int(element_tags_.size()), element_tags_.data(), int(attr_tags_.size()),
                    attr_tags_.data(), &element_dict_, &attr_dict_);
    attr_handlers_.assign(attr_names_.size(), &recorder::on_attribute);
  }
  ~recorder() {
    set_gblerr(0);  // the store frees nothing while an error is pending
    xml_parser_free(&ctx_);
    free_obj(&element_dict_);
    free_obj(&attr_dict_);
  }
  recorder(const recorder&) = delete;
  recorder& operator=(const recorder&) = delete;

  // A fresh context for one document.
  xml_parser_t* begin() {
    xml_parser_free(&ctx_);
    events_.clear();
    stack_.clear();
    xml_parser_create(this, element_dict_, attr_dict_, nullptr, lower_case_,
                      int(element_names_.size()), handler_table().data(),
                      attr_handlers_.data(), &ctx_);
    return ctx_;
  }
  // Parses bytes in memory; returns the events.
  const std::vector<event>& parse(const std::string& bytes) {
    begin();
    xml_read_bytes(bytes.data(), bytes.size(), ctx_);
    finish();
    return events_;
  }
  // Parses a file object.
  const std::vector<event>& parse_file(obj_t* file) {
    begin();
    xml_read_file(file, ctx_);
    finish();
    return events_;
  }
  // Reports the ends the engine made silently before the end of the document.
  void finish() { sync(); }

  xml_parser_t* ctx() const { return ctx_; }
  bool raw_text = false;  // record text and values as the bytes delivered
  const std::vector<event>& events() const { return events_; }

 private:
  using table = std::array<xml_element_handler, kMaxNames>;

  template <int I> static void on_element(xml_parser_t* ctx, const char* text) {
    static_cast<recorder*>(ctx->user)->element(I, text);
  }
  template <int... I> static table make_table(std::integer_sequence<int, I...>) {
    return table{&recorder::on_element<I>...};
  }
  static const table& handler_table() {
    static const table t = make_table(std::make_integer_sequence<int, kMaxNames>{});
    return t;
  }
  static void on_attribute(xml_parser_t* ctx, int element_id, const char* value) {
    static_cast<recorder*>(ctx->user)->attribute(element_id, value);
  }

  std::string convert(const char* text) const {
    if (raw_text) return text;
    char16_t* wide = nullptr;
    xml_text_to_wcs(ctx_, text, &wide);
    char* utf8 = nullptr;
    std::string out = wstr_to_utf8(wide, &utf8);
    free_mem(&wide);
    free_mem(&utf8);
    return out;
  }

  // Elements the engine closed without a call.
  void sync() {
    if (!ctx_) return;
    const size_t open = size_t(ctx_->depth < kXmlMaxDepth ? ctx_->depth : kXmlMaxDepth);
    while (stack_.size() > open) pop_one();
  }
  void pop_one() {
    const auto [name, is_pi] = stack_.back();
    stack_.pop_back();
    if (!is_pi) events_.push_back({"closed", name, ""});
  }

  void element(int id, const char* text) {
    const std::string& name = element_names_[size_t(id)];
    if (text) {
      sync();
      events_.push_back({"text", name, convert(text)});
    } else if (!ctx_->end_tag) {
      // The engine has pushed the element already.
      const size_t open = size_t(ctx_->depth - 1);
      while (stack_.size() > open) pop_one();
      const bool is_pi = pis_.count(name) > 0;
      stack_.push_back({name, is_pi});
      events_.push_back({is_pi ? "pi" : "start", name, ""});
    } else {
      sync();
      // Close down to the named element; anything above it was closed silently.
      while (!stack_.empty() && stack_.back().first != name) pop_one();
      if (!stack_.empty()) {
        stack_.pop_back();
        events_.push_back({"end", name, ""});
      }
    }
  }

  void attribute(int element_id, const char* value) {
    const std::string& name = attr_names_[size_t(ctx_->attr_id)];
    if (value && element_id == 1 && name == "encoding") xml_set_encoding(ctx_, element_id, value);
    if (!value || ctx_->attr_id == 0) return;
    if (!stack_.empty() && stack_.back().second) return;  // inside a processing instruction
    events_.push_back({"attr", name, convert(value)});
  }

  std::set<std::string> pis_;
  int lower_case_;
  std::vector<std::string> element_names_, attr_names_;
  std::vector<tag_t> element_tags_, attr_tags_;
  container_t* element_dict_ = nullptr;
  container_t* attr_dict_ = nullptr;
  std::vector<xml_attr_handler> attr_handlers_;
  xml_parser_t* ctx_ = nullptr;
  std::vector<event> events_;
  std::vector<std::pair<std::string, bool>> stack_;
};

}  // namespace xml_test
