#include "records/ContactData.h"

#include "common/StringUtils.h"

std::string baseContactData::LabelFormated() const {
    return StringUtils::FormatAbMultiValueLabel(Label());
}
