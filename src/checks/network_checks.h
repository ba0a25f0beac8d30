#pragma once

// The network facts of the page: the connection (item 5), name resolution (item 6) and the
// e-banking service (item 7). Stand-ins until the network services exist.

#include "config/check_config.h"

namespace corvane {

// Whether the PC has a network connection (InternetGetConnectedState). The one place the
// dialog asks; the platform's network service replaces this body.
bool IsInternetConnected();
// The bank's host names against the "dns" section; sets dnsOk and, for a labelled address,
// dnsLineName.
bool CheckNameResolution(CheckConfig& config);
// The service probe, run on a worker: sets serviceOk, then serviceProbeDone. Returns 1 when
// every service URL answered, else 0.
int ProbeServices(CheckConfig& config);

}  // namespace corvane
