#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
extern "C" __declspec(dllexport) int GetFactory(const GUID*, void**) { return 0; }
extern "C" __declspec(dllexport) unsigned GetObjectCount() { return 0; }
extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void**) { return 0; }
extern "C" HRESULT __stdcall DllCanUnloadNow() { return 0; }
