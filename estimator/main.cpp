#include "estimator/program.h"

int main() { dartcirc::RunProgram(); }
