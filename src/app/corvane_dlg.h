#pragma once

// CCorvaneDlg: the system's only window. It owns the configuration model with the check
// results, the install queue and the workers, drives the check sequence with one-shot
// timers and is the only object that calls into the page.
//
// Public contract used by the hosts and the application object (the private part is the
// dialog's own):
//   CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts);
//   void OnInitDialog();        the window exists; starts the configuration download
//   void OnDocumentComplete();  the page has loaded; first reports, update check
//   void OnTimer(int id);       a timer of the loop is due (the loop calls it)
//   PageCommands methods        window.external and the "onOpen" click
//   bool isIdle() const;        no timer armed, no worker running, no command running
//   void close();               the window closes: workers are stopped or joined; nothing
//                               touches the dialog afterwards
//   const CheckConfig& config() const;   for hosts and tests, dialog thread only
//
// This header is being written; see the implementation for the whole class.

#include "app/event_loop.h"
#include "app/page_host.h"
#include "app/prompts.h"
#include "config/check_config.h"
