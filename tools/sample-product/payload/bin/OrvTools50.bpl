fake ready-made package
