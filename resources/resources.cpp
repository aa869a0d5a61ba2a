// The compiled-in resources live in this library; it holds no code of its own.
namespace pendralumovista::resources {
int libraryAnchor = 0;
}
