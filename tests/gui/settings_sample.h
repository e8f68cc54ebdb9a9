// A settings file with every value away from its default and Autosave on,
// shared by the program and window tests.
#ifndef GLIMRA_SETTINGS_SAMPLE_H
#define GLIMRA_SETTINGS_SAMPLE_H

#include <string>

const std::string kPreparedSettings ="Projection:\t0\r\n"
                                     "Fps:\t0\r\n"
                                     "BG Color:\t0.200000,0.400000,0.600000\r\n"
                                     "Sampling:\t200\r\n"
                                     "Aplha test:\t0.250000\r\n"
                                     "Aplha mode:\t514\r\n"
                                     "Visualization mode:\t3\r\n"
                                     "Blending:\t1\r\n"
                                     "BBox:\t0\r\n"
                                     "Curve:\t1\r\n"
                                     "Classification:\t2\r\n"
                                     "Autosave:\t1\r\n"
                                     "Size:\t700,500\r\n"
                                     "Position:\t30,40\r\n"
                                     "Speedup:\t0\r\n"
                                     "AlphaCalculation:\t2\r\n"
                                     "GradientCalculation:\t1\r\n"
                                     "AlphaCorrection:\t1\r\n"
                                     "Filtering:\t0";

#endif
