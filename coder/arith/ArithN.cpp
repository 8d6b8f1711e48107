// arith-n.exe INPUT OUTPUT [-o N]: compresses INPUT into OUTPUT.
#include "coder/arith/cli/Cli.h"

int main(int argc, char** argv) {
    return eks::arith::CompressorMain(argc, argv);
}
