#include <cstdio>
int main() { std::puts("zunatool"); return 0; }
