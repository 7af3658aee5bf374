#include "platform/random/RandomSource.h"

#include <cstdlib>

namespace wendle {

void SystemRandom::seed(unsigned int value)
{
    ::srandom(value);
}

long SystemRandom::next()
{
    return ::random();
}

} // namespace wendle
