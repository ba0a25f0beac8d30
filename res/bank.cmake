# The bank's own values: the one file a bank edits to brand Corvane as its assistant.
# cmake/CorvaneBank.cmake turns it into the built-in item.xml (from res/item.xml.in) and the
# C++ header "bank/bank_values.h". Hosts, addresses and URLs below use the reserved example
# domain and the documentation address ranges; a real bank puts its own here.

# The e-banking hosts: personal and corporate customers.
set(CORVANE_BANK_PERSONAL_HOST "perbank.marrowby.example")
set(CORVANE_BANK_CORPORATE_HOST "corbank.marrowby.example")
# The registrable domain, for the browser's compatibility-view list.
set(CORVANE_BANK_DOMAIN "marrowby.example")
# The addresses that name resolution may answer for each e-banking host (three each).
set(CORVANE_BANK_PERSONAL_ADDRESSES "192.0.2.10;198.51.100.10;203.0.113.10")
set(CORVANE_BANK_CORPORATE_ADDRESSES "192.0.2.20;198.51.100.20;203.0.113.20")
# The bank's public web site (plain http, ends in "/"), opened by the "登录" link.
set(CORVANE_BANK_PUBLIC_SITE_URL "http://www.marrowby.example/")
# The update server's folder holding the installers and the newest executable (ends in "/").
set(CORVANE_BANK_UPDATE_BASE_URL "http://update.marrowby.example/corvane/")
# The executable's name on the update server.
set(CORVANE_BANK_EXECUTABLE_NAME "Corvane.exe")
# Where the bank's current item.xml lives on the personal e-banking host (over https).
set(CORVANE_BANK_CONFIG_PATH "/perbank/download/818/item.xml")
# The folder under %ProgramFiles% and the prefix of the bank-named component files.
set(CORVANE_BANK_FOLDER "Marrowby")
set(CORVANE_BANK_FILE_PREFIX "Mrb")
# The class identifiers of the bank's own browser controls (password and signing controls):
# the browser is told to run them without asking. The key vendors' controls and drivers are
# listed with their identifiers and files in res/item.xml.in.
set(CORVANE_BANK_SAFE_CONTROL_CLSID "{9F91FA06-F55E-4D0E-BA7D-EB69097AC55D}")
set(CORVANE_BANK_SIGN_CONTROL_CLSID "{A9E52C35-52B1-4763-9A5F-5E73CFE0EFFF}")
