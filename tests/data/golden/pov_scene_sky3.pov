#include "colors.inc"
#include "textures.inc"

camera {
	location  <0, 0, -4.000000>
	direction <0, 0,  1>
	up        <0, 1,  0>
	right   <4/3, 0,  0>
	look_at   <0, 0, 0>
}

light_source {<0, 0, -4.000000> color White}
light_source {<0, 10.000000, 0> color White}

// Starfield texture by Tessaly
sphere { <0,0,0>, 20000.000000
	texture {
		finish { ambient 1 }
		pigment {
 			granite
			color_map {
				[ 0.00  0.72 color Black  color Black ]  // No Stars in this area
 				[ 0.72  0.75 color Gray20 color Gray40 ] // Very Very Faints
 				[ 0.75  0.78 color Gray40 color Gray60 ] // Very Faint Stars
				[ 0.78  0.81 color Gray60 color Gray80 ] // Faint Stars
				[ 0.81  0.85 color Gray80 color Gray95 ] // Medium White Stars
				[ 0.85  0.91 color Gray95 color White  ] // White Stars
				[ 0.91  1.00 color Black  color Black ]  // No Stars in this area
			}
			scale 50.000000
		}
	}
	rotate <0.0, 90.0, 0.0>
}

// Add a glass finish
#declare GlassFinish = finish {	Shiny ambient 0 diffuse 0
	reflection 0.1 refraction 1 ior 1.5
}

// Object converted to POVRay V2.2 by TRIVEX V2.7
#declare _Tri = texture {pigment {color White} finish {Dull}}


// This object has the following minimum and maximum values:
// xmin=0.000000, xmax=2.000000
// ymin=0.000000, ymax=2.000000
// zmin=0.000000, zmax=0.000000

object {
	// _Tri
	object {
		triangle {
			<0.000000, 0.000000, 0.000000>,
			<2.000000, 0.000000, 0.000000>,
			< 0.000000, 2.000000, 0.000000>
		}
		texture{_Tri}
	}
}
