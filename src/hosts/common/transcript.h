#pragma once

// The transcript: one JSON object per line, in call order, for every call into the page,
// every prompt and every page command. "t" is milliseconds since start on the dialog's loop.
//   {"t":12,"call":"setState","args":[0,2,1002]}
//   {"t":40,"prompt":"choice","ids":[139,142,143],"answer":6}
//   {"t":48,"prompt":"choice","ids":[],"title":"安全警告","answer":7}  (not from the string table)
//   {"t":55,"external":"fix","args":[0]}
//   {"t":60,"desktopStart":"<command line>","started":true}

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/page_host.h"
#include "hosts/common/options.h"
#include "ui/prompts.h"

namespace corvane::hosts {

// `text` as a JSON string with its quotes. Bytes that are not UTF-8 become U+FFFD, so the
// line stays valid JSON whatever the system passes.
std::string JsonString(std::string_view text);

std::string CallLine(std::uint64_t ms, std::string_view function,
                     const std::vector<ScriptArg>& args);
std::string PromptLine(std::uint64_t ms, const Prompt& prompt, int answer);
std::string CommandLine(std::uint64_t ms, const HostCommand& command);
// A program started as the desktop user (the browser for the "登录" link):
//   {"t":60,"desktopStart":"\"C:\\...\\iexplore.exe\"http://...","started":true}
std::string DesktopStartLine(std::uint64_t ms, std::string_view commandLine, bool started);

// Writes lines whole, from any thread (prompts may come from workers).
class Transcript {
 public:
  explicit Transcript(std::ostream* out) : out_(out) {}
  void write(const std::string& line);

 private:
  std::mutex mutex_;
  std::ostream* out_;
};

}  // namespace corvane::hosts
