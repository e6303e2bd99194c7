"""Textbook Jaro-Winkler similarity over code points.

Same floating-point order as the native code, so results compare exactly.
Texts are taken as given: fold them first (str.lower()) to compare without case.
"""


def jaro_winkler(a: str, b: str, p: float = 0.1, score_cutoff: float | None = None) -> float:
    if not a:
        return 1.0 if not b else 0.0
    if not b:
        return 0.0

    w = max(0, max(len(a), len(b)) // 2 - 1)
    matched_a = [False] * len(a)
    matched_b = [False] * len(b)
    m = 0
    for i, ca in enumerate(a):
        for j in range(max(0, i - w), min(len(b) - 1, i + w) + 1):
            if not matched_b[j] and b[j] == ca:
                matched_a[i] = matched_b[j] = True
                m += 1
                break

    sim = 0.0
    if m:
        ordered_a = [c for c, hit in zip(a, matched_a) if hit]
        ordered_b = [c for c, hit in zip(b, matched_b) if hit]
        t = sum(x != y for x, y in zip(ordered_a, ordered_b)) // 2

        prefix = 0
        while prefix < min(4, len(a), len(b)) and a[prefix] == b[prefix]:
            prefix += 1

        jaro = ((m - t) / m + (m / len(b) + m / len(a))) / 3.0
        sim = jaro + (1.0 - jaro) * (p * prefix) if jaro > 0.7 else jaro
    if score_cutoff is not None and score_cutoff > sim:
        return 0.0
    return sim
