#include <string>
#include <vector>

#include "view/view_program.h"

int main(int argc, char** argv)
{
    return run_view(std::vector<std::string>(argv, argv + argc));
}
