// Keeps the widget test support library non-empty while it has no other unit.
namespace testsupport {
int uiSupportAnchor = 0;
}
