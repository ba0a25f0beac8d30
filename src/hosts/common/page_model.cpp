#include "hosts/common/page_model.h"

#include <array>
#include <utility>

namespace corvane::hosts {
namespace {

constexpr std::string_view kPassed = "正常";
constexpr std::string_view kFailed = "不正常";
constexpr std::string_view kSuccessLine =
    "恭喜您，您的电脑已达到使用我行网上银行的最优环境配置，可以放心使用！点击“登录”网上银行";
constexpr std::string_view kFailureLine =
    "您的电脑未达到使用我行网银的要求，请点击“一键设置”修复。";

bool HasRepairButton(int item) {
  return item == 2 || item == 3 || item == 4 || item == 10 || item == 11;
}

// The text a script value turns into where the page shows it as text: JavaScript prints
// numbers in decimal.
std::string AsText(const ScriptArg& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::to_string(std::get<std::int32_t>(value));
}

std::string_view UsbBrand(std::int32_t category) {
  switch (category) {
    case 800:
      return "华虹";
    case 801:
      return "天诚";
    case 802:
    case 803:
      return "飞天";
    default:
      return {};
  }
}

}  // namespace

std::string_view StatusText(std::int32_t code) {
  switch (code) {
    case 1:
      return "安装完毕";
    case 2:
      return "正在下载";
    case 3:
      return "正在安装";
    case 4:
      return "正在获取配置";
    case 1002:
      return "正在检测注册表";
    case 1003:
      return "正在检测Host文件";
    case 1004:
      return "正在检测根证书";
    case 1005:
      return "正在检测网络连接";
    case 1006:
      return "正在检测DNS设置";
    case 1007:
      return "正在检测网银服务";
    case 1009:
      return "正在检测主页设置";
    case 1010:
      return "正在检测安全级别设置";
    case 1011:
      return "正在检测可信站点";
    case 1013:
      return "正在检测网络代理设置";
    case 1999:
      return "检测完毕";
    case 2002:
      return "正在修复注册表";
    case 2003:
      return "正在修复Host文件";
    case 2004:
      return "正在修复根证书";
    case 2009:
      return "正在修复主页设置";
    case 2010:
      return "正在修复安全级别设置";
    case 2011:
      return "正在修复可信站点";
    case 2999:
      return "设置完毕";
    default:
      return {};
  }
}

std::string ShortenSystemName(std::string_view name) {
  // The page tests these in this order, so "Windows Server 2008 R2" is not "Windows 7".
  constexpr std::array<std::string_view, 7> kNames{
      "Windows 7",  "Windows Vista", "Windows Server 2008", "Windows Server 2003",
      "Windows XP", "Windows 2000",  "Windows 8",
  };
  for (const std::string_view known : kNames) {
    if (name.find(known) != std::string_view::npos) return std::string(known);
  }
  return std::string(name);
}

PageModel::PageModel() : status_(StatusText(4)) {
  const std::array<std::pair<int, const char*>, 10> checkLabels{{
      {1, "操作系统版本"},
      {2, "注册表"},
      {3, "Host文件"},
      {4, "CFCA根证书"},
      {5, "网络连接"},
      {6, "DNS解析"},
      {7, "网银服务"},
      {8, "IE版本"},
      {10, "IE安全级别"},
      {11, "网银可信站点加入"},
  }};
  for (const auto& [item, label] : checkLabels) checks_.at(item).label = label;
  const std::array<const char*, 4> componentLabels{"密码安全控件", "证书签名控件", "USBKey控件",
                                                   "USBKey驱动"};
  for (int row = 1; row <= 4; ++row) {
    components_.at(row).label = componentLabels.at(static_cast<std::size_t>(row - 1));
  }
}

bool PageModel::apply(std::string_view function, const std::vector<ScriptArg>& args) {
  // The script reads its numeric arguments as numbers; anything else matches no code.
  auto number = [&](std::size_t index, std::int32_t& out) {
    if (index >= args.size()) return false;
    const auto* value = std::get_if<std::int32_t>(&args[index]);
    if (value == nullptr) return false;
    out = *value;
    return true;
  };
  std::int32_t category = 0;
  std::int32_t item = 0;
  if (!number(0, category) || !number(1, item)) return false;
  if (function == "setState") return args.size() >= 3 && setState(category, item, args[2]);
  if (function == "clearState") return clearState(category, item);
  return false;
}

bool PageModel::setState(std::int32_t category, std::int32_t item, const ScriptArg& value) {
  const auto* number = std::get_if<std::int32_t>(&value);
  if (category == 0) {
    if (number == nullptr) return false;
    switch (item) {
      case 0:
      case 1:
        progress_ = *number;
        return true;
      case 2: {
        const std::string_view text = StatusText(*number);
        if (text.empty()) return false;
        status_ = text;
        return true;
      }
      case 3:
        loginLink_ = *number == 0;
        result_ = loginLink_ ? kSuccessLine : kFailureLine;
        resultTone_ = loginLink_ ? Tone::kBlue : Tone::kYellow;
        return true;
      default:
        return false;
    }
  }
  if (category == 1) {
    if (item < 1 || item > 11 || item == 9) return false;
    PageRow& row = checks_.at(item);
    if (item == 1) {
      row.text = ShortenSystemName(AsText(value));
      return true;
    }
    if (item == 8) {
      row.text = AsText(value);
      return true;
    }
    // Item 6 carries the name of the matching address entry only when it passed.
    const bool passed = number != nullptr ? *number == 0 : item == 6;
    row.text = passed ? kPassed : kFailed;
    row.tone = passed ? Tone::kBlue : Tone::kYellow;
    row.button = !passed && HasRepairButton(item) ? "修复" : "";
    return true;
  }
  if (category == 2) {
    if (item < 1 || item > 4) return false;
    PageRow& row = components_.at(item);
    const std::uint32_t state = number != nullptr ? static_cast<std::uint32_t>(*number) : 7U;
    row.tone = Tone::kYellow;
    row.button.clear();
    // Only the three controls are browser add-ons that can be disabled.
    if (item <= 3 && (state & 0x40000000U) != 0) {
      row.text = "已被禁用";
      row.button = "修复";
      return true;
    }
    switch (state) {
      case 0:
        row.text = "已安装最新版本";
        row.tone = Tone::kBlue;
        break;
      case 2:
        row.text = "已安装，但有更新版本";
        row.button = "升级";
        break;
      case 5:
        row.text = "未安装";
        row.button = "安装";
        break;
      case 8:
        row.text = "已被禁用";
        if (item <= 3) row.button = "修复";
        break;
      default:
        row.text = "未安装";
        break;
    }
    return true;
  }
  if (!UsbBrand(category).empty()) {
    // Only the serial number line has an element on the page.
    if (item != 2) return false;
    footer_ += " USBKey(" + std::string(UsbBrand(category)) + ")  序列号：" + AsText(value) + " ;";
    return true;
  }
  return false;
}

bool PageModel::clearState(std::int32_t /*category*/, std::int32_t item) {
  if (item != 2) return false;  // the other items clear elements the page does not have
  footer_.clear();
  return true;
}

std::vector<PageModel::Line> PageModel::lines() const {
  std::vector<Line> out;
  const int width = progress_ < 0 ? 0 : (progress_ > 100 ? 100 : progress_);
  const int filled = width / 5;
  out.push_back({status_ + "  [" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(20 - filled), '.') + "] " +
                     std::to_string(progress_) + "%",
                 Tone::kPlain});
  if (!result_.empty()) out.push_back({result_, resultTone_});
  auto row = [&](const PageRow& r) {
    std::string text = r.label + "：" + (r.text.empty() ? "-" : r.text);
    if (!r.button.empty()) text += "  [" + r.button + "]";
    out.push_back({std::move(text), r.tone});
  };
  for (int item = 1; item <= 11; ++item) {
    if (item != 9) row(checks_.at(item));
  }
  for (int r = 1; r <= 4; ++r) row(components_.at(r));
  if (!footer_.empty()) out.push_back({footer_, Tone::kPlain});
  return out;
}

}  // namespace corvane::hosts
