#include "printer/ComandiEpson.h"
// STUB
ComandiEpson::ComandiEpson(PrinterControl& c, ErrorHandler& e) : m_control(c), m_errors(e) {}
bool ComandiEpson::opReparto(int16_t, const std::string&, Currency, Currency, Currency) { return false; }
bool ComandiEpson::opRepartoReso(int16_t, const std::string&, Currency, Currency, Currency) { return false; }
bool ComandiEpson::opRepartoResoImporto(int16_t, const std::string&, Currency, Currency) { return false; }
bool ComandiEpson::opDescAgg(int16_t, const std::string&) { return false; }
bool ComandiEpson::AbbuonoSubTot(int16_t, Currency) { return false; }
bool ComandiEpson::ChiudiScontrino(int16_t, Currency, Currency, int16_t, const std::string&) { return false; }
bool ComandiEpson::opApriNonFiscale(int16_t) { return false; }
bool ComandiEpson::OpDatiSNoFisc(int16_t, const std::string&) { return false; }
bool ComandiEpson::opChiudiNonFiscale(int16_t) { return false; }
bool ComandiEpson::opMsgVisoreCortesia(int16_t, const std::string&) { return false; }
bool ComandiEpson::opRigaAggiuntiva(int16_t, int16_t&, const std::string&) { return false; }
bool ComandiEpson::OpImportoSNoFisc(int16_t, Currency) { return false; }
bool ComandiEpson::opZChiusuraFisc(int16_t, int16_t) { return false; }
bool ComandiEpson::opApri(int16_t) { return false; }
