#include "config/parse_check_config.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/system_info.h"
#include "support/atoi_value.h"
#include "support/xml_document.h"

namespace corvane {
namespace {

// One body for the const and the mutable lookup.
template <typename Config>
auto* FindSectionIn(Config& config, std::string_view type) {
  for (auto& section : config.sections) {
    if (section.type == type) return &section;
  }
  return static_cast<decltype(&config.sections.front())>(nullptr);
}

void ReadSections(XmlDocument& doc, CheckConfig& config) {
  while (doc.NextElement("config")) {
    const std::string type = doc.GetAttribute("type");
    ConfigSection* existing = FindSection(config, type);
    ConfigSection fresh{type, {}};
    ConfigSection& section = existing != nullptr ? *existing : fresh;
    doc.EnterElement();
    while (doc.NextElement("entry")) {
      ConfigEntry entry;
      entry.text = doc.GetText();
      if (type == "dns") {
        entry.name = doc.GetAttribute("name");
        entry.value = doc.GetAttribute("ip");
      } else if (type == "registry") {
        entry.name = doc.GetAttribute("name");
        entry.type = doc.GetAttribute("type");
        entry.value = doc.GetAttribute("value");
        entry.mask = doc.GetAttribute("mask");
      }
      section.entries.push_back(std::move(entry));
    }
    doc.LeaveElement();
    if (existing == nullptr) config.sections.push_back(std::move(fresh));
  }
}

// One `item` or `component` element; detect, file and installer children are collected in
// separate passes, so only the order among children of one kind matters.
CheckItem ReadItem(XmlDocument& doc, const std::string& base) {
  CheckItem item;
  const std::string selectedId = doc.GetAttribute("selectedid");
  item.selectedId = selectedId.empty() ? 0 : AtoiValue(selectedId);
  item.name = doc.GetAttribute("name");
  item.type = doc.GetAttribute("type");
  item.tips = doc.GetAttribute("tips");
  item.image = doc.GetAttribute("image");
  item.className = doc.GetAttribute("class");

  doc.EnterElement();
  while (doc.NextElement("detect")) {
    item.detects.push_back(DetectRule{doc.GetText(), doc.GetAttribute("type")});
  }
  doc.RewindElements();
  while (doc.NextElement("file")) {
    FileSpec file;
    file.localPath = ExpandPathAnsi(doc.GetAttribute("local"));
    file.install = doc.GetAttribute("install");
    file.url = ResolveUrl(doc.GetAttribute("remote"), base);
    file.version = doc.GetAttribute("version");
    file.md5 = doc.GetAttribute("md5");
    file.text = doc.GetText();
    if (file.localPath.empty()) file.localPath = DownloadPathFor(file.url);
    item.files.push_back(std::move(file));
  }
  doc.RewindElements();
  while (doc.NextElement("installer")) {
    if (!InstallerConditionHolds(doc.GetAttribute("condition"))) continue;
    InstallerSpec installer;
    installer.url = ResolveUrl(doc.GetText(), base);
    installer.command = doc.GetAttribute("command");
    installer.md5 = doc.GetAttribute("md5");
    installer.localPath = DownloadPathFor(installer.url);
    item.installers.push_back(std::move(installer));
  }
  doc.LeaveElement();
  return item;
}

void ReadItems(XmlDocument& doc, std::string_view element, const std::string& base,
               std::vector<CheckItem>& into) {
  doc.RewindElements();
  while (doc.NextElement(element)) into.push_back(ReadItem(doc, base));
}

void ReadAppInfo(XmlDocument& doc, AppInfo& appInfo) {
  doc.RewindElements();
  while (doc.NextElement("appinfo")) {
    appInfo.version = doc.GetAttribute("version");
    appInfo.remote = doc.GetAttribute("remote");
    appInfo.md5 = doc.GetAttribute("md5");
    appInfo.localPath = DownloadPathFor(appInfo.remote);
  }
}

}  // namespace

bool ParseCheckConfig(CheckConfig& config, std::string_view text) {
  XmlDocument doc;
  if (!doc.SetText(std::string(text))) return false;
  if (!doc.NextElement("checkitems")) return false;

  config.base = doc.GetAttribute("base");
  doc.EnterElement();
  ReadSections(doc, config);
  ReadItems(doc, "item", config.base, config.items);
  ReadItems(doc, "component", config.base, config.components);
  ReadAppInfo(doc, config.appInfo);
  // Last, so that a reader waiting for it sees complete lists.
  config.configLoaded = true;
  return true;
}

const ConfigSection* FindSection(const CheckConfig& config, std::string_view type) {
  return FindSectionIn(config, type);
}

ConfigSection* FindSection(CheckConfig& config, std::string_view type) {
  return FindSectionIn(config, type);
}

std::string ResolveUrl(std::string_view value, std::string_view base) {
  if (value.find("://") != std::string_view::npos) return std::string(value);
  std::string url(base);
  url += value;
  return url;
}

bool InstallerConditionHolds(std::string_view condition) {
  if (condition.empty()) return true;
  if (condition != "NT6" && condition != "NT5") return false;
  const std::optional<OsVersionInfo> version = CurrentPlatform().systemInfo().VersionEx();
  const bool nt6 = version.has_value() && version->majorVersion >= 6;
  return condition == "NT6" ? nt6 : !nt6;
}

}  // namespace corvane
