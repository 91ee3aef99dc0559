/* synclock */
#ifndef KOVA_SYNCLOCK_H
#define KOVA_SYNCLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
