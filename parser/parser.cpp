// Statement reading and field classification.
