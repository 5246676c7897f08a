// Must not compile: a text of the program said in French and not in
// English. (The test that builds it expects the compiler to refuse it.)
#include "common/two_languages.h"

constexpr morlevix::Text kOnlyFrench{"un texte en francais seulement", ""};

int main() { return kOnlyFrench.fr[0]; }
