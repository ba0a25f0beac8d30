#pragma once

// CCorvaneDlg as a host's session drives it.

#include "app/corvane_dlg.h"
#include "hosts/common/host_session.h"

namespace corvane::hosts {

class DialogAdapter final : public HostedDialog {
 public:
  explicit DialogAdapter(CCorvaneDlg& dialog) : dialog_(dialog) {}
  void OnInitDialog() override { dialog_.OnInitDialog(); }
  void OnDocumentComplete() override { dialog_.OnDocumentComplete(); }
  void OnTimer(int id) override { dialog_.OnTimer(id); }
  [[nodiscard]] bool isIdle() const override { return dialog_.isIdle(); }
  void close() override { dialog_.close(); }
  PageCommands& commands() override { return dialog_; }

 private:
  CCorvaneDlg& dialog_;
};

}  // namespace corvane::hosts
