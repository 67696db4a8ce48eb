// Stands in for the C runtime library that the preload loads from the
// product's install folder; the export tells it from any other module.
extern "C" __declspec(dllexport) int QvdPreloadProbe() {
    return 42;
}
