#include "app/home_page_draw.h"

#include <QTime>

#include <random>

namespace quellomir {

int drawHomePageVisit() {
    std::mt19937 generator(unsigned(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    return int(unit(generator) * 100) + 1;
}

} // namespace quellomir
