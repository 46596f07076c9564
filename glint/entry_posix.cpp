#include "entry.h"

int main(int argc, char** argv) { return glint::programMain(argc, argv); }
