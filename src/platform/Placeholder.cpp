namespace vantrel {}
