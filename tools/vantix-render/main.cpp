// vantix-render: batch rendering of a results file into a PNG (BatchRender.h).
#include "BatchRender.h"

int main(int argc, char** argv)
{
    return batch::Run(argc, argv);
}
