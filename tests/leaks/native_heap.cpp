// The C heap in use, for the leak test: glibc's count over all arenas, chunks served by mmap
// included. Test only; the library does not contain it.
#include <jni.h>
#include <malloc.h>

extern "C" JNIEXPORT jlong JNICALL Java_com_kelo_check_ConcurrencyCheck_heapInUse(JNIEnv*, jclass) {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<jlong>(info.uordblks + info.hblkhd);
}
