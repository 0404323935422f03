// The new program that the updater tests serve: a real program of this
// machine that says who it is.

#include <cstdio>

int main()
{
    std::puts("new program");
    return 0;
}
