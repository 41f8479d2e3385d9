// The windows live in this folder; the library needs one source to exist.
namespace puolukka::ui {
int uiLibraryVersion() { return 1; }
}
