// Must not compile: see tests/tooling/CMakeLists.txt.
#include <QWidget>

int main()
{
    return 0;
}
