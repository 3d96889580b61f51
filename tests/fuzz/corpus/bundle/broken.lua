function broken(
  return )
