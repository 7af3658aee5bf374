#pragma once

namespace wendle {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(unsigned int value) = 0;
    // A non-negative value, like random().
    virtual long next() = 0;
};

// The C library generator: srandom() / random().
class SystemRandom : public RandomSource {
public:
    void seed(unsigned int value) override;
    long next() override;
};

} // namespace wendle
