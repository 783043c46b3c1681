#include "config/IniFile.h"
// STUB
std::string LeggiINI(const std::string&, const std::string&, const std::string& d, const std::filesystem::path&) { return d; }
std::string LeggiINI(const std::string& s, const std::string& k, long long d, const std::filesystem::path& f) { return LeggiINI(s, k, std::to_string(d), f); }
bool ScriviINI(const std::string&, const std::string&, const std::string&, const std::filesystem::path&) { return false; }
std::string TogliNull(const std::string& t) { return t.substr(0, t.find('\0')); }
