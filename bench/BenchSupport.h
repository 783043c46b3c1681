// SPDX-License-Identifier: MIT
#pragma once

// The window of the tests, with nobody there (every question gets No), and
// their clock that stands still and only pretends to sleep: a busy printer must not
// turn a benchmark into a wait.
#include "support/FakeClock.h"
#include "support/FakeWindow.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

namespace bench {

// A fiscal command file name: characters 15 to 17 say "COR".
inline std::string fiscalFileName(int number)
{
    std::string digits = std::to_string(number);
    digits.insert(0, 6 - std::min<size_t>(6, digits.size()), '0');
    return "20261208143000COR" + digits + ".txt";
}

// One fiscal receipt of 50 records as the back-office writes it: 47 sales
// (a few with a quantity), a description line, a subtotal discount and the
// cash payment that closes it.
inline std::string receiptFile()
{
    static const char* const Items[] = {"PANE COMUNE",      "LATTE INTERO 1L", "BISCOTTI FROLLINI", "PASTA DI SEMOLA",
                                        "OLIO EXTRA VERG.", "POMODORI PELATI", "CAFFE MACINATO",    "ACQUA NATURALE"};
    std::string text;
    for (int i = 0; i < 47; ++i) {
        const int quantity = (i % 5 == 0) ? 2000 : 1000; // thousandths
        const int price = 99 + 37 * i;                   // hundredths
        const int dept = 1 + i % 8;
        text += "F2:1:" + std::string(Items[i % 8]) + ":" + std::to_string(quantity) + ":" + std::to_string(price) +
                ":" + std::to_string(dept) + "\r\n";
    }
    text += "F5:1:TESSERA FEDELTA 0012345\r\n";
    text += "F7:1:50\r\n";
    text += "F4:0:0:0:1\r\n";
    return text;
}

// A _Configurazione.ini as a shop's till holds it: 40 keys, the bridge's
// section among the back-office's own, comments and blank lines.
inline std::string realisticConfig()
{
    return "; Configurazione del gestionale - non modificare a mano\r\n"
           "[Generale]\r\n"
           "Negozio=Alimentari Rossi\r\n"
           "CodiceNegozio=0042\r\n"
           "Cassa=1\r\n"
           "Lingua=IT\r\n"
           "UltimoAggiornamento=08/12/2026 07:30:12\r\n"
           "Backup=-1\r\n"
           "\r\n"
           "[Archivi]\r\n"
           "; percorsi degli archivi del gestionale\r\n"
           "Articoli=C:\\KELMORA\\ARCHIVI\\ART.DBF\r\n"
           "Clienti=C:\\KELMORA\\ARCHIVI\\CLI.DBF\r\n"
           "Fornitori=C:\\KELMORA\\ARCHIVI\\FOR.DBF\r\n"
           "Movimenti=C:\\KELMORA\\ARCHIVI\\MOV.DBF\r\n"
           "Indici=-1\r\n"
           "\r\n"
           "[Varie]\r\n"
           "intervalTimer=500\r\n"
           "Eps_COM=1\r\n"
           "Eps_Setting=9600,N,8,1\r\n"
           "Eps_Delay=50\r\n"
           "Eps_NonRiscIndex=1\r\n"
           "Eps_NonRiscType=1\r\n"
           "Kelmora_DIR=C:\\KELMORA\\\r\n"
           "PAY_L=0\r\n"
           "Eps_Vuoto=-1\r\n"
           "Eps_CodError=\r\n"
           "Eps_DescError=\r\n"
           "Kelmora_CORR=\r\n"
           "DECIMALI=2\r\n"
           "; chiavi del gestionale\r\n"
           "StampaCortesia=0\r\n"
           "Visore=-1\r\n"
           "RigheIntestazione=4\r\n"
           "\r\n"
           "[Stampa]\r\n"
           "Intestazione1=ALIMENTARI ROSSI\r\n"
           "Intestazione2=VIA ROMA 12\r\n"
           "Intestazione3=00100 ROMA\r\n"
           "Intestazione4=P.IVA 01234567890\r\n"
           "Cortesia=GRAZIE E ARRIVEDERCI\r\n"
           "Copie=1\r\n"
           "Cassetto=-1\r\n"
           "\r\n"
           "[Rete]\r\n"
           "Server=192.168.1.10\r\n"
           "Porta=9100\r\n"
           "Timeout=30\r\n"
           "Ritenta=3\r\n"
           "Utente=cassa1\r\n"
           "Dominio=NEGOZIO\r\n";
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A program directory in a temporary folder with the realistic configuration.
class ProgramDir {
public:
    ProgramDir() { writeFile(path() / "_Configurazione.ini", realisticConfig()); }
    std::filesystem::path path() const { return std::filesystem::path(m_dir.path().toStdString()); }
    bool valid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

} // namespace bench
