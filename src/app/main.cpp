#include <cstdio>

int main()
{
    std::puts("wendle: under construction");
    return 0;
}
