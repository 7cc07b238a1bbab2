#include "FactoryCalibration.h"

const FactoryCalibration::Table& FactoryCalibration::values()
{
    static const Table table { {
        64821, 64280, 63647, 62998, 62287, 61594, 60841, 60109, 59328, 58488,
        57653, 56780, 55821, 54897, 53874, 52840, 51711, 50569, 49404, 48115,
        46833, 45357, 44010, 42458, 40860, 39216, 37422, 35605, 33688, 31639,
        29482, 27292, 24780, 22319, 19747, 16821, 13842, 10730, 7394, 3865 } };
    return table;
}

juce::uint16 FactoryCalibration::valueForNote (int note)
{
    return isCalibratedNote (note) ? values()[(size_t) (note - firstNote)] : (juce::uint16) 0;
}
