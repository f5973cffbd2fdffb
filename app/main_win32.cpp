// quib-server.exe: the window, or with --headless the console it was started from.
#include <windows.h>

int main() { return 0; }
