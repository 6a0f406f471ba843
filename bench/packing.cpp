// Times the palette packing on its own: kestrine_packing prints one line per case.
#include "palettes.h"

#include <iostream>

int main()
{
    std::cout << "no cases yet" << std::endl;
    return 0;
}
