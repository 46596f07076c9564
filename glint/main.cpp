#include <iostream>

#include "key_wait.h"
#include "menu.h"

int main() { return glint::runMenu(std::cin, std::cout, std::cerr, glint::waitForKey); }
