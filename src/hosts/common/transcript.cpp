#include "hosts/common/transcript.h"

#include <string_view>

namespace corvane::hosts {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Sequence(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  std::uint32_t min = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0FU;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07U;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0U) != 0x80U) return 0;
    code = (code << 6) | (byte(i) & 0x3FU);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = Utf8Sequence(text);
    if (length == 0) {
      out += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(text.substr(0, length));
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      static constexpr std::string_view kHex = "0123456789abcdef";
      const auto byte = static_cast<unsigned char>(c);
      out += "\\u00";
      out += kHex[byte >> 4U];
      out += kHex[byte & 0xFU];
    } else {
      out += c;
    }
    text.remove_prefix(length);
  }
  return out + "\"";
}

std::string CallLine(std::uint64_t ms, std::string_view function,
                     const std::vector<ScriptArg>& args) {
  std::string line =
      "{\"t\":" + std::to_string(ms) + ",\"call\":" + JsonString(function) + ",\"args\":[";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line += ',';
    if (const auto* text = std::get_if<std::string>(&args[i])) {
      line += JsonString(*text);
    } else {
      line += std::to_string(std::get<std::int32_t>(args[i]));
    }
  }
  return line + "]}";
}

std::string PromptLine(std::uint64_t ms, const Prompt& prompt, int answer) {
  std::string line = "{\"t\":" + std::to_string(ms) +
                     ",\"prompt\":" + (prompt.choice ? "\"choice\"" : "\"info\"") + ",\"ids\":[";
  for (std::size_t i = 0; i < prompt.stringIds.size(); ++i) {
    if (i > 0) line += ',';
    line += std::to_string(prompt.stringIds[i]);
  }
  line += "]";
  // A prompt whose words are not the string table's (the platform's own, such as the root
  // certificate warning) is named by its title instead.
  if (prompt.stringIds.empty()) line += ",\"title\":" + JsonString(prompt.title);
  return line + ",\"answer\":" + std::to_string(answer) + "}";
}

std::string CommandLine(std::uint64_t ms, const HostCommand& command) {
  std::string line = "{\"t\":" + std::to_string(ms) +
                     ",\"external\":" + JsonString(CommandName(command.kind)) + ",\"args\":[";
  for (std::size_t i = 0; i < command.args.size(); ++i) {
    if (i > 0) line += ',';
    line += std::to_string(command.args[i]);
  }
  return line + "]}";
}

std::string DesktopStartLine(std::uint64_t ms, std::string_view commandLine, bool started) {
  return "{\"t\":" + std::to_string(ms) + ",\"desktopStart\":" + JsonString(commandLine) +
         ",\"started\":" + (started ? "true" : "false") + "}";
}

void Transcript::write(const std::string& line) {
  if (out_ == nullptr) return;
  const std::lock_guard lock(mutex_);
  *out_ << line << '\n';
  out_->flush();  // a run that is killed still leaves what happened so far
}

}  // namespace corvane::hosts
