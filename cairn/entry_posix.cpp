#include "entry.h"

int main(int argc, char** argv) { return cairn::programMain(argc, argv); }
