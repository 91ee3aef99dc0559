/* capture */
#ifndef KOVA_CAPTURE_H
#define KOVA_CAPTURE_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
