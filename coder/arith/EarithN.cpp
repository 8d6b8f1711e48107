// earith-n.exe INPUT OUTPUT [-o N]: restores a file compressed by arith-n.exe.
#include "coder/arith/cli/Cli.h"

int main(int argc, char** argv) {
    return eks::arith::DecompressorMain(argc, argv);
}
