// Placeholder until the codecs land.
