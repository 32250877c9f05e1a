// A small library that the binding tests load by its Windows name ("WDTEST_BOUND.DLL").
extern "C" int AddNumbers(int a, int b) { return a + b; }
extern "C" void Remember(int value);
static int remembered = 0;
extern "C" void Remember(int value) { remembered = value; }
extern "C" int Remembered() { return remembered; }
