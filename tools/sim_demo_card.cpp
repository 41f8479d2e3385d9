// Writes the built-in demo card as a card description file, so that
// demo/card.json stays the same card as the one behind plain "virtual":
//   sim_demo_card demo/card.json
// Without an argument the description goes to standard output.
#include <cstdio>
#include <iostream>
#include <string>

#include "sim/card_description.h"

int main(int argc, char** argv)
{
    const puolukka::sim::CardDescription card = puolukka::sim::demoCard();
    if (argc < 2) {
        std::cout << puolukka::sim::cardToJson(card);
        return 0;
    }
    std::string error;
    if (!puolukka::sim::saveCardFile(argv[1], card, &error)) {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}
