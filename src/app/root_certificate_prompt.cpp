#include "app/root_certificate_prompt.h"

#include "platform/platform.h"

namespace corvane {

Prompt RootCertificatePrompt(const RootCertificateConfirmation& what) {
  Prompt prompt;
  prompt.choice = true;
  prompt.title = "安全警告";
  prompt.instruction = "您即将从一个声称代表如下的证书颁发机构安装证书:";
  prompt.content =
      what.subject + "\n\nWindows 不能确认证书是否确实来自\"" + what.subject + "\"。您应该与\"" +
      what.subject +
      "\"联系，以确认证书来源。下列数字将在此过程中对您有帮助:\n\n指纹(sha1): " + what.thumbprint +
      "\n\n警告:\n如果安装此根证书，Windows 将自动信任所有此证书颁发机构颁发的证书。"
      "安装未经指纹确认的证书有安全风险。如果单击\"是\"，表示您知道此风险。\n\n"
      "是否安装此证书?";
  prompt.links = {{kIdYes, "是(Y)"}, {kIdNo, "否(N)"}};
  return prompt;
}

RootCertificateConfirmationHook::RootCertificateConfirmationHook(PromptHost& host)
    : stores_(CurrentPlatform().certificateStores()) {
  stores_.SetRootConfirmation([&host](const RootCertificateConfirmation& what) {
    // A security question: anything but an explicit yes (a closed window too) is a no.
    return host.show(RootCertificatePrompt(what)) == kIdYes;
  });
}

RootCertificateConfirmationHook::~RootCertificateConfirmationHook() {
  stores_.SetRootConfirmation({});
}

}  // namespace corvane
