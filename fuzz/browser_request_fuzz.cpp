// Feeds arbitrary request paths and bodies to what the browser host reads from the page: the
// resource a path names and the command a POST carries. Any crash or sanitizer report is a
// finding; so is a resource name that could leave the flat TYPE/NAME shape, or a command
// other than the one the path names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "hosts/browser/browser_server.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool Plain(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (const char c : part) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

// The input is "<path, command name or request line>\n<body>".
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view head = input.substr(0, newline);
  const std::string_view body =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  if (const auto ref = corvane::browser::ResourceForPath(head); ref && !head.empty()) {
    if (!Plain(ref->type) || !Plain(ref->name)) Fail("a resource outside the flat shape");
  }
  (void)corvane::browser::ContentTypeFor(head);

  // The request line as the server's gate reads it: the path lies between the first two
  // spaces, so it can never hold a space or reach past the line.
  const std::string_view path = corvane::browser::RequestPath(head);
  if (path.find(' ') != std::string_view::npos) Fail("a path holding a space");
  if (!path.empty() &&
      (path.data() < head.data() || path.data() + path.size() > head.data() + head.size())) {
    Fail("a path outside its request line");
  }

  if (const auto command = corvane::browser::ExternalCommand(head, body)) {
    if (corvane::hosts::CommandName(command->kind) != head) Fail("another command than named");
    if (command->args.size() > 2) Fail("more arguments than any command takes");
  }
  return 0;
}
