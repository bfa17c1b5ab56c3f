"""The peer's side of the whole-job benchmark (bench/whole_job.sh): the job a researcher would
script with Open3D instead of running Kelvorand on a batch file. It loads DIRECTORY/lr.ply and
DIRECTORY/hr.ply, runs ITERATIONS point-to-point ICP iterations with scaling (a similarity) within
the search range of DIRECTORY/distance.txt, and saves the transform to DIRECTORY/open3d.txt.

    /usr/bin/python3 bench/open3d_job.py DIRECTORY ITERATIONS
"""
import sys

import numpy as np
import open3d as o3d


def vertices(path):
    mesh = o3d.io.read_triangle_mesh(path)
    if len(mesh.vertices) == 0:
        sys.exit(f"open3d_job.py: no vertices in {path}")
    return o3d.geometry.PointCloud(mesh.vertices)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: open3d_job.py DIRECTORY ITERATIONS")
    directory, iterations = sys.argv[1], int(sys.argv[2])
    with open(f"{directory}/distance.txt") as distance_file:
        distance = float(distance_file.read())
    lr = vertices(f"{directory}/lr.ply")
    hr = vertices(f"{directory}/hr.ply")
    # Zero tolerances: every iteration runs, as the batch job runs all of its.
    criteria = o3d.pipelines.registration.ICPConvergenceCriteria(
        relative_fitness=0.0, relative_rmse=0.0, max_iteration=iterations)
    result = o3d.pipelines.registration.registration_icp(
        lr, hr, distance, np.identity(4),
        o3d.pipelines.registration.TransformationEstimationPointToPoint(with_scaling=True),
        criteria)
    np.savetxt(f"{directory}/open3d.txt", result.transformation)
    print(f"fitness {result.fitness:.6f} rmse {result.inlier_rmse:.6f}")


if __name__ == "__main__":
    main()
