// The program is the application library; this is only its entry.
#include "Vantix.h"

int main(int argc, char** argv)
{
    return VantixMain(argc, argv);
}
