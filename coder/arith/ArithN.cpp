// arith-n.exe INPUT OUTPUT [-o N]: compresses INPUT into OUTPUT.
#include "coder/arith/cli/Cli.h"

#ifdef _WIN32
// Wide arguments: names that the system's code page cannot spell arrive whole.
int wmain(int argc, wchar_t** argv) {
    return eks::arith::CompressorMain(argc, argv);
}
#else
int main(int argc, char** argv) {
    return eks::arith::CompressorMain(argc, argv);
}
#endif
