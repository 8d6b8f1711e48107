// arith-n.exe INPUT OUTPUT [-o N]: compresses INPUT into OUTPUT.
#include "Cli.h"

int main(int argc, char** argv) {
    return eks::arith::CompressorMain(argc, argv);
}
