// Keeps the core test support library non-empty while it has no other unit.
namespace testsupport {
int coreSupportAnchor = 0;
}
