// The empty program each lower library is linked into whole (CMakeLists.txt):
// it only has to link.
int main()
{
    return 0;
}
