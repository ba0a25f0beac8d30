#pragma once

// What the dialog needs from whatever shows the page: the Internet Explorer control on
// Windows, a page in a browser or the terminal elsewhere. The dialog does not know which.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/win_errors.h"

namespace corvane {

// A script argument: a 32-bit integer (VT_I4) or a text (VT_BSTR; UTF-8 here).
using ScriptArg = std::variant<std::int32_t, std::string>;

class PageHost {
 public:
  PageHost() = default;
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;
  PageHost(PageHost&&) = delete;
  PageHost& operator=(PageHost&&) = delete;
  virtual ~PageHost() = default;

  // Calls the page's script function `name` with `args` in order. Dialog thread only.
  // Failures (no page yet, no such function, a script error) come back as an HRESULT that
  // every caller ignores.
  virtual win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) = 0;
};

// The page's calls into the system: window.external's methods and the "onOpen" click.
// Each runs to completion on the dialog thread before the page goes on.
class PageCommands {
 public:
  PageCommands() = default;
  PageCommands(const PageCommands&) = delete;
  PageCommands& operator=(const PageCommands&) = delete;
  PageCommands(PageCommands&&) = delete;
  PageCommands& operator=(PageCommands&&) = delete;
  virtual ~PageCommands() = default;

  virtual void install(std::int32_t n) = 0;
  virtual void installcom(std::int32_t group) = 0;
  virtual void installmulti(std::int32_t first, std::int32_t last) = 0;
  virtual void fix(std::int32_t n) = 0;
  virtual void check(std::int32_t n) = 0;
  virtual void installandfix() = 0;
  virtual void stop(std::int32_t n) = 0;
  virtual void openSite() = 0;  // the "onOpen" click
};

}  // namespace corvane
