/* utility */
#ifndef KOVA_UTILITY_H
#define KOVA_UTILITY_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
