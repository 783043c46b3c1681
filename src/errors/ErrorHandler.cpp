#include "errors/ErrorHandler.h"
// STUB
ErrorHandler::ErrorHandler(SharedState& s, OperatorWindow& w, Clock& c) : m_state(s), m_window(w), m_clock(c) {}
void ErrorHandler::registraErrore(const std::string&, bool) {}
void ErrorHandler::registraAzione(const std::string&) {}
void ErrorHandler::logOnly(const std::string&) {}
void ErrorHandler::printerErrorEvent(int16_t, int32_t) {}
void ErrorHandler::visualizzaForm() {}
void ErrorHandler::SvuotaErrori() {}
bool ErrorHandler::appendRecord(const std::string&, const std::string&, RecordKind) { return false; }
