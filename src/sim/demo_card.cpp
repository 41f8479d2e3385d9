#include "sim/card_description.h"

namespace puolukka::sim {

namespace {

// The demo card: a phase 2 GSM card of a Finnish operator with a small phonebook.
// demo/card.json is this text as the card writes it back (tools/sim_demo_card regenerates it).
const char* const kDemoCard = R"json({
  "atr": "3B 16 11 80 01 47 53 4D 31",
  "convention": "direct",
  "reset": { "lines": ["RTS", "DTR"], "assertedWhenOn": true },
  "timing": { "atrDelayMs": 2, "procedureDelayMs": 1, "statusDelayMs": 2, "extraDelayMs": 0 },
  "codes": {
    "CHV1": { "code": "1234", "attemptsLeft": 3, "enabled": true },
    "CHV2": { "code": "5678", "attemptsLeft": 3 },
    "UNBLOCK_CHV1": { "code": "12345678", "attemptsLeft": 10 },
    "UNBLOCK_CHV2": { "code": "87654321", "attemptsLeft": 10 }
  },
  "adn": {
    "recordLength": 28,
    "recordCount": 100,
    "entries": [
      { "record": 1, "name": "Aino Virtanen", "ton": "81", "number": "0401234567" },
      { "record": 2, "name": "Matti Korhonen", "ton": "91", "number": "+358501234567" },
      { "record": 4, "name": "Hatanumero", "ton": "81", "number": "112" },
      { "record": 5, "name": "Koti", "ton": "81", "number": "0912345678" },
      { "record": 6, "name": "Liisa Makinen", "ton": "91", "number": "+358407654321" },
      { "record": 9, "name": "Pekka Nieminen", "ton": "81", "number": "0445556677" },
      { "record": 10, "name": "Tyopaikka", "ton": "81", "number": "0201234567" },
      { "record": 11, "name": "Mummola", "ton": "81", "number": "0143214321" },
      { "record": 13, "name": "Jukka Lehtonen", "ton": "91", "number": "+358401112233" },
      { "record": 14, "name": "Sanna Laine", "ton": "81", "number": "0509876543" },
      { "record": 15, "name": "Taksi", "ton": "81", "number": "0100700" },
      { "record": 16, "name": "Vastaaja", "ton": "91", "number": "+358405550100" },
      { "record": 18, "name": "Ville Heikkila", "ton": "81", "number": "0407778899" },
      { "record": 19, "name": "Anna Koskinen", "ton": "91", "number": "+46701234567" },
      { "record": 20, "name": "Hammaslaakari", "ton": "81", "number": "0931012345" },
      { "record": 21, "name": "Kalle Jarvinen", "ton": "81", "number": "0451234321" },
      { "record": 25, "name": "Elina Salo", "ton": "81", "number": "0400112233" },
      { "record": 30, "name": "Myrkytystieto", "ton": "81", "number": "0800147111" },
      { "record": 31, "name": "Poliisi", "ton": "81", "number": "0295419800" },
      { "record": 40, "name": "Timo Ojala", "ton": "91", "number": "+358442223344" },
      { "record": 41, "name": "Eeva Lind", "ton": "81", "number": "0505554443" },
      { "record": 50, "name": "Saldo", "ton": "81", "number": "*100#" }
    ]
  },
  "files": {
    "2FE2": "98 53 08 21 43 65 87 09 21 F3",
    "7F10/6F40": { "recordLength": 28, "recordCount": 2,
                   "entries": [ { "record": 1, "name": "Oma numero", "ton": "91", "number": "+358401234000" } ] },
    "7F20/6F05": "09 01 FF FF",
    "7F20/6F07": "08 29 44 19 21 43 65 87 09",
    "7F20/6F20": "FF FF FF FF FF FF FF FF 07",
    "7F20/6F31": "05",
    "7F20/6F38": "FF 3F FF 0F",
    "7F20/6F46": "00 44 65 6D 6F 20 4F 70 65 72 61 74 6F 72 FF FF FF",
    "7F20/6F78": "00 04",
    "7F20/6F7E": "FF FF FF FF 42 F4 19 00 01 FF 01",
    "7F20/6FAD": "00 00 00",
    "7F20/6FAE": "02"
  }
}
)json";

}  // namespace

std::string demoCardJson()
{
    return kDemoCard;
}

CardDescription demoCard()
{
    CardDescription card;
    std::string error;
    // The text is part of the program; a fault in it is caught by the tests.
    if (!cardFromJson(kDemoCard, "(built-in demo card)", &card, &error)) return standardCard();
    return card;
}

}  // namespace puolukka::sim
