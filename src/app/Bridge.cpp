#include "app/Bridge.h"
#include "errors/SharedState.h"
// STUB
Bridge::Bridge(SharedState& s, OperatorWindow& w, Clock& c, PrinterControl& p)
    : m_state(s), m_window(w), m_clock(c), m_control(p), m_errors(s, w, c),
      m_panel(s.configFile(), s.settings, [](const std::string&) {}) {}
int Bridge::avvio() { return m_interval; }
void Bridge::tick() {}
void Bridge::ScansioneCartella() {}
void Bridge::cmdNascondi() {}
bool Bridge::Esci() { return false; }
std::vector<std::string> CreaCartelleDefault(const std::filesystem::path&) { return {}; }
