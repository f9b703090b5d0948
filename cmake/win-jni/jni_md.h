/* The machine-dependent part of jni.h for Windows, which the Linux JDK used by the cross builds
   does not ship. On i686 JNI entry points are __stdcall (the callee pops its arguments); on x86_64
   the keyword is ignored. jint must be `long` there, as in the Windows JDK, so that declarations
   shared with Windows headers agree. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
