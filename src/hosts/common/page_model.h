#pragma once

// The page as the hosts record it (the terminal draws it): the page script's rules for setState and
// clearState applied to a model of its status line, progress, result line, rows and footer.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/page_host.h"

namespace corvane::hosts {

enum class Tone { kPlain, kBlue, kYellow };

struct PageRow {
  std::string label;
  std::string text;  // empty until the system reports the row
  Tone tone = Tone::kPlain;
  std::string button;  // "修复", "升级", "安装" or empty
};

class PageModel {
 public:
  PageModel();

  // Applies one call into the page's script; false when it changed nothing the page shows
  // (an unknown function or code, a row without an element).
  bool apply(std::string_view function, const std::vector<ScriptArg>& args);

  [[nodiscard]] const std::string& status() const { return status_; }
  [[nodiscard]] std::int32_t progress() const { return progress_; }
  // The width of the progress image in pixels, as the page computes it.
  [[nodiscard]] double progressWidth() const { return progress_ * 2.33; }
  [[nodiscard]] const std::string& result() const { return result_; }
  [[nodiscard]] Tone resultTone() const { return resultTone_; }
  // The "登录" link exists only while the result line shows success.
  [[nodiscard]] bool loginLink() const { return loginLink_; }
  // Check rows by page item number (1 to 11; 9 has no row, its label is empty).
  [[nodiscard]] const PageRow& check(int item) const { return checks_.at(item); }
  // Component rows 1 to 4.
  [[nodiscard]] const PageRow& component(int row) const { return components_.at(row); }
  [[nodiscard]] const std::string& footer() const { return footer_; }

  // The page as text lines, tones marked by the caller's rendering.
  struct Line {
    std::string text;
    Tone tone = Tone::kPlain;
  };
  [[nodiscard]] std::vector<Line> lines() const;

 private:
  bool setState(std::int32_t category, std::int32_t item, const ScriptArg& value);
  bool clearState(std::int32_t category, std::int32_t item);

  std::string status_;
  std::int32_t progress_ = 0;
  std::string result_;
  Tone resultTone_ = Tone::kYellow;
  bool loginLink_ = false;
  std::array<PageRow, 12> checks_;
  std::array<PageRow, 5> components_;
  std::string footer_;
};

// The label text of a status code; empty for a code without a text.
std::string_view StatusText(std::int32_t code);
// The operating system name as the page's row 1 shows it.
std::string ShortenSystemName(std::string_view name);

}  // namespace corvane::hosts
