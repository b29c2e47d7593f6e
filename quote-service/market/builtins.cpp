#include "market/catalogue.h"

namespace {

struct BuiltIn {
    const char* country;
    const char* symbol;
    const char* name; // code page 1252
};

struct CountryExchange {
    const char* country;
    const char* exchangeName;
};

constexpr CountryExchange kExchanges[] = {
    { "AU", "Australian Securities Exchange" },
    { "BE", "Euronext Brussels" },
    { "DE", "Xetra" },
    { "FR", "Euronext Paris" },
    { "IT", "Borsa Italiana" },
    { "JP", "Tokyo Stock Exchange" },
    { "NL", "Euronext Amsterdam" },
    { "ES", "Bolsa de Madrid" },
    { "SE", "Nasdaq Stockholm" },
};

// Well-known securities of the countries that have no list file of their own.
constexpr BuiltIn kBuiltIns[] = {
    { "AU", "BHP", "BHP Group Ltd" },
    { "AU", "CBA", "Commonwealth Bank of Australia" },
    { "AU", "CSL", "CSL Ltd" },
    { "AU", "NAB", "National Australia Bank Ltd" },
    { "AU", "WBC", "Westpac Banking Corp" },
    { "AU", "ANZ", "ANZ Group Holdings Ltd" },
    { "AU", "WES", "Wesfarmers Ltd" },
    { "AU", "MQG", "Macquarie Group Ltd" },
    { "AU", "WOW", "Woolworths Group Ltd" },
    { "AU", "TLS", "Telstra Group Ltd" },
    { "AU", "RIO", "Rio Tinto Ltd" },
    { "AU", "FMG", "Fortescue Ltd" },
    { "AU", "QAN", "Qantas Airways Ltd" },
    { "BE", "ABI", "Anheuser-Busch InBev SA/NV" },
    { "BE", "KBC", "KBC Group NV" },
    { "BE", "UCB", "UCB SA" },
    { "BE", "SOLB", "Solvay SA" },
    { "BE", "AGS", "Ageas SA/NV" },
    { "BE", "UMI", "Umicore SA" },
    { "BE", "ACKB", "Ackermans & van Haaren NV" },
    { "BE", "GBLB", "Groupe Bruxelles Lambert SA" },
    { "BE", "COLR", "Colruyt Group NV" },
    { "BE", "PROX", "Proximus SA" },
    { "DE", "SAP", "SAP SE" },
    { "DE", "SIE", "Siemens AG" },
    { "DE", "ALV", "Allianz SE" },
    { "DE", "BAS", "BASF SE" },
    { "DE", "BAYN", "Bayer AG" },
    { "DE", "BMW", "Bayerische Motoren Werke AG" },
    { "DE", "DTE", "Deutsche Telekom AG" },
    { "DE", "DBK", "Deutsche Bank AG" },
    { "DE", "MBG", "Mercedes-Benz Group AG" },
    { "DE", "VOW3", "Volkswagen AG" },
    { "DE", "ADS", "adidas AG" },
    { "DE", "MUV2",
        "M\xFCnchener R\xFC"
        "ckversicherungs-Ges. AG" },
    { "DE", "DHL", "Deutsche Post AG" },
    { "DE", "IFX", "Infineon Technologies AG" },
    { "DE", "LHA", "Deutsche Lufthansa AG" },
    { "FR", "MC", "LVMH Mo\xEBt Hennessy Louis Vuitton SE" },
    { "FR", "OR",
        "L'Or\xE9"
        "al SA" },
    { "FR", "TTE", "TotalEnergies SE" },
    { "FR", "SAN", "Sanofi SA" },
    { "FR", "AIR", "Airbus SE" },
    { "FR", "BNP", "BNP Paribas SA" },
    { "FR", "GLE", "Soci\xE9t\xE9 G\xE9n\xE9rale SA" },
    { "FR", "AI", "Air Liquide SA" },
    { "FR", "SU", "Schneider Electric SE" },
    { "FR", "DG", "Vinci SA" },
    { "FR", "KER", "Kering SA" },
    { "FR", "RNO", "Renault SA" },
    { "FR", "DSY", "Dassault Syst\xE8mes SE" },
    { "IT", "ENI", "Eni SpA" },
    { "IT", "ENEL", "Enel SpA" },
    { "IT", "ISP", "Intesa Sanpaolo SpA" },
    { "IT", "UCG", "UniCredit SpA" },
    { "IT", "G", "Assicurazioni Generali SpA" },
    { "IT", "RACE", "Ferrari NV" },
    { "IT", "STLAM", "Stellantis NV" },
    { "IT", "TIT", "Telecom Italia SpA" },
    { "IT", "PRY", "Prysmian SpA" },
    { "IT", "LDO", "Leonardo SpA" },
    { "IT", "MB", "Mediobanca SpA" },
    { "JP", "7203", "Toyota Motor Corp" },
    { "JP", "6758", "Sony Group Corp" },
    { "JP", "9984", "SoftBank Group Corp" },
    { "JP", "7974", "Nintendo Co Ltd" },
    { "JP", "6861", "Keyence Corp" },
    { "JP", "8306", "Mitsubishi UFJ Financial Group Inc" },
    { "JP", "7267", "Honda Motor Co Ltd" },
    { "JP", "6501", "Hitachi Ltd" },
    { "JP", "9432", "Nippon Telegraph and Telephone Corp" },
    { "JP", "4502", "Takeda Pharmaceutical Co Ltd" },
    { "JP", "6752", "Panasonic Holdings Corp" },
    { "JP", "7751", "Canon Inc" },
    { "JP", "8058", "Mitsubishi Corp" },
    { "JP", "9983", "Fast Retailing Co Ltd" },
    { "NL", "ASML", "ASML Holding NV" },
    { "NL", "SHELL", "Shell plc" },
    { "NL", "INGA", "ING Groep NV" },
    { "NL", "PHIA", "Koninklijke Philips NV" },
    { "NL", "AD", "Koninklijke Ahold Delhaize NV" },
    { "NL", "HEIA", "Heineken NV" },
    { "NL", "UNA", "Unilever plc" },
    { "NL", "AKZA", "Akzo Nobel NV" },
    { "NL", "KPN", "Koninklijke KPN NV" },
    { "NL", "WKL", "Wolters Kluwer NV" },
    { "NL", "ADYEN", "Adyen NV" },
    { "ES", "SAN", "Banco Santander SA" },
    { "ES", "BBVA", "Banco Bilbao Vizcaya Argentaria SA" },
    { "ES", "ITX", "Industria de Dise\xF1o Textil SA" },
    { "ES", "IBE", "Iberdrola SA" },
    { "ES", "TEF", "Telef\xF3nica SA" },
    { "ES", "REP", "Repsol SA" },
    { "ES", "AMS", "Amadeus IT Group SA" },
    { "ES", "FER", "Ferrovial SE" },
    { "ES", "ACS", "ACS Actividades de Construcci\xF3n SA" },
    { "ES", "CABK", "CaixaBank SA" },
    { "ES", "AENA", "Aena SME SA" },
    { "SE", "ERIC-B", "Telefonaktiebolaget LM Ericsson" },
    { "SE", "VOLV-B", "AB Volvo" },
    { "SE", "HM-B", "H & M Hennes & Mauritz AB" },
    { "SE", "ATCO-A", "Atlas Copco AB" },
    { "SE", "SEB-A", "Skandinaviska Enskilda Banken AB" },
    { "SE", "SAND", "Sandvik AB" },
    { "SE", "ABB", "ABB Ltd" },
    { "SE", "INVE-B", "Investor AB" },
    { "SE", "ESSITY-B", "Essity AB" },
    { "SE", "SWED-A", "Swedbank AB" },
    { "SE", "TELIA", "Telia Company AB" },
    { "SE", "ALFA", "Alfa Laval AB" },
};

} // namespace

void SecurityCatalogue::addBuiltIns()
{
    for (const BuiltIn& b : kBuiltIns) {
        Security s;
        s.country = b.country;
        s.symbol = b.symbol;
        s.name = b.name;
        s.kind = SecurityKind::Stock;
        for (const CountryExchange& e : kExchanges) {
            if (s.country == e.country)
                s.exchangeName = e.exchangeName;
        }
        add(s);
    }
}
