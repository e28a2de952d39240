/** @file
 * quorvel: one flat set of plain C functions for the services every C and
 * C++ program needs and that differ between platforms.
 *
 * Include this header for everything, or one family header from
 * include/quorvel/ for a part.  All headers compile as C99 and as C++.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

#include "quorvel/runtime.h"
#include "quorvel/concurrency.h"
#include "quorvel/trace.h"
#include "quorvel/memory.h"
#include "quorvel/net.h"
#include "quorvel/crypto.h"

#endif /* QUORVEL_H */
