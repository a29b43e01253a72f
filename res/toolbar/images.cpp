// The toolbar strips and icons are compiled into this library's resources
// (see images.cmake); linking it is enough to find them under :/toolbar and :/icons.
namespace vantix::resources {
int ImagesLinked()
{
    return 1;
}
} // namespace vantix::resources
