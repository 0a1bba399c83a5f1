#include "features/snippets/SnippetsFeature.h"

#include "core/api/FeatureContext.h"

namespace vantrel {

SnippetsFeature::SnippetsFeature() = default;
SnippetsFeature::~SnippetsFeature() = default;

void SnippetsFeature::registerWith(FeatureContext& context) { m_context = &context; }

void SnippetsFeature::start() {}

}  // namespace vantrel
