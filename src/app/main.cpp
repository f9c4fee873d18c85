#include "app/application.h"

int main(int argc, char** argv)
{
    return varnel::runApplication(argc, argv);
}
