#pragma once
// Where the configuration file zrn.ini is found.

#include <string>

// The path in ZRN_INI when that variable is set; otherwise the first existing
// file named zrn.ini (regardless of case) in the working folder,
// $XDG_CONFIG_HOME (default ~/.config) and /etc. Empty when there is none.
std::string FindConfigFile();

// The file in `folder` whose name equals `name` regardless of case, or empty.
std::string FindFileNoCase(const std::string& folder, const std::string& name);
